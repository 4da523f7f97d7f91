#pragma once

#include <vector>

#include "hvx/cli/command.h"

// Every subcommand's registration, one per file in hvx/cli/.
// Each adds its parser to `hvx` and returns how to run it.
std::vector<Subcommand> registerSubcommands(CLI::App& hvx);

Subcommand addPrepareCommand(CLI::App& hvx);  // prepare_command.cpp
Subcommand addCheckCommand(CLI::App& hvx);    // check_command.cpp
Subcommand addInfoCommand(CLI::App& hvx);     // info_command.cpp
Subcommand addRenderCommand(CLI::App& hvx);   // render_command.cpp
Subcommand addPictureCommand(CLI::App& hvx);  // picture_command.cpp
Subcommand addStudioCommand(CLI::App& hvx);   // studio_command.cpp
Subcommand addConvertCommand(CLI::App& hvx);  // convert_command.cpp

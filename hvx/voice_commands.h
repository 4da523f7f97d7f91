#pragma once

#include "command.h"

// The subcommands that read voice files, one file each.
Subcommand registerInfo(CLI::App& hvx);
Subcommand registerRender(CLI::App& hvx);
Subcommand registerPicture(CLI::App& hvx);

#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "hvx/studio/page/studio_page.h"
#include "hvx/studio/studio_session.h"

// The page's editor and keyboard on the server side: the files the page
// loads, the facts its scripts share, a drawn grid taken as a picture, and
// the preview played at a note.

// The page file served at `path` ("/grid.js"), or null. The HTML page itself
// is not among them: it is served at "/" only.
const StudioPageFile* findPageFile(const std::string& path);
// The Content-Type of a page file, from its extension.
const char* pageFileMediaType(const std::string& name);

// What the editor must agree on with tonepix and the renderer: the grid's
// width, its row limits, the levels a cell takes, the voice's base note, the
// longest note a key may hold.
nlohmann::json editorFacts();

// A grid drawn on the page, {"name": "...", "levels": [rows * 64 levels]},
// point 0 first, as the bitmap tonepix reads (the same bytes as a prepared
// picture). False with a sentence for anything else.
bool drawnGridBitmap(const nlohmann::json& body, std::string& name, std::string& bitmap,
                     std::string& error);

// The result's voice as `hvx info --json` shows it: what the page's own
// synthesis plays. False with a sentence when it cannot be read back.
bool resultVoiceJson(const StudioResult& result, std::string& text, std::string& error);

// The result's voice rendered as `hvx render --note NOTE --hold HOLD` renders
// it, for {"note": "C4", "hold": 2} (or "frequency" in Hz instead of a note):
// the WAV file's bytes. False with a sentence in `error`.
bool renderResultAtNote(const StudioResult& result, const nlohmann::json& body, std::string& wav,
                        std::string& error);

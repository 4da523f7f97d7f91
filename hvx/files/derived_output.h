#pragma once

#include <functional>
#include <string>

// Outputs that hvx names itself (no -o) follow one rule: they never replace a
// file that hvx did not make. Their names say what they are (photo.voice.png,
// flute.preview.wav, photo-prepared.bmp), so that running a step again
// replaces its own earlier output while a user's source is never touched.

// `source` with its extension replaced by `suffix`: ("pics/pad.hvx",
// ".voice.png") gives "pics/pad.voice.png". Folders never take part.
std::string derivedOutputName(const std::string& source, const std::string& suffix);

// Tells whether an existing regular file at `path` is an earlier output of
// the same step, so that it may be replaced without asking.
using MadeByHvx = std::function<bool(const std::string& path)>;

// For names that only hvx gives (an infix such as ".voice."): a file there
// that begins with what that kind of output begins with is taken to be hvx's
// own; anything else at such a name is the user's.
bool startsWith(const std::string& path, const std::string& signature);

// True when a derived output may be written at `path`: nothing is there, or
// a regular file that `madeByHvx` recognises, or `force` is set and a regular
// file is there. A link is never written through. Otherwise false with a one-line reason that names
// -o and
// --force. Never true for `source` itself, whatever `force` says.
bool mayWriteDerived(const std::string& path, const std::string& source, const MadeByHvx& madeByHvx,
                     bool force, std::string& error);

// Where a step that reads a voice writes: `output` as named with -o (never
// the voice itself), or, when empty, the voice's derived name with `suffix`,
// under the rule above; an earlier output there is recognised by its first
// bytes, `signature`. False with a one-line reason in `error`.
bool chooseOutputForVoice(std::string& output, const std::string& voice, const std::string& suffix,
                          const std::string& signature, bool force, std::string& error);

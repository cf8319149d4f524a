// One panel per program folder: the name of the mutex that a running
// Tovira holds for its folder, and of the message that brings it to the
// front. Two starts from one folder share one tq.cfg, and the later's stale
// table would overwrite the earlier's edits; starts from two folders keep
// two tables and run side by side.
#pragma once

#include <string>
#include <string_view>

namespace tovira::platform {

// The same for every spelling Windows takes for one folder: either slash,
// doubled separators, a trailing one, any case of ASCII letters (the
// backend folds the others first). No backslash in it (a name's namespace
// prefix is the caller's); a long folder is hashed.
std::string instance_name(std::string_view folder_utf8);

}  // namespace tovira::platform

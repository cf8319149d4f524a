// Where tq.cfg is read and written. A folder Tovira cannot write (Program
// Files) had Windows redirect the writes of a program without a manifest
// into the user's VirtualStore, and that copy is what such a program read:
// the user's stations are there, and the one beside the program is the
// installer's. Where the folder takes a write, the file beside the program
// is the table, and a VirtualStore copy is read only when it is missing.
#pragma once

#include <array>
#include <cstdint>

namespace tovira {

enum class TableCopy : std::uint8_t { Beside, Redirected };

struct TablePlace {
    std::array<TableCopy, 2> read;  // the first copy that exists is loaded
    TableCopy write;
};

// `folder_writable`: the folder took the write test; `store_known`: this
// system has a VirtualStore copy of the folder.
TablePlace table_place(bool folder_writable, bool store_known);

}  // namespace tovira

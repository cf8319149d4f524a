#include "config/table_place.h"

namespace tovira {

TablePlace table_place(bool folder_writable, bool store_known) {
    if (!folder_writable && store_known) {
        return {{TableCopy::Redirected, TableCopy::Beside}, TableCopy::Redirected};
    }
    return {{TableCopy::Beside, TableCopy::Redirected}, TableCopy::Beside};
}

}  // namespace tovira

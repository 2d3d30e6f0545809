#pragma once

#include <QLibrary>

namespace toolkit {

// Takes the function `name` of an opened library into `into`; false when it has none.
template <typename Function> bool resolve(QLibrary& library, const char* name, Function& into) {
    into = reinterpret_cast<Function>(library.resolve(name));
    return into != nullptr;
}

} // namespace toolkit

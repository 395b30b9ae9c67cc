// The word size of a library file and of this program: a 64-bit program cannot load a 32-bit
// driver, nor a 32-bit program a 64-bit one, and the loader's own words for that ("wrong ELF
// class", "not a valid Win32 application") do not tell an operator what to do.
#pragma once

#include <QString>

namespace qv58163::card {

// 32 or 64.
inline constexpr int programWordSize = static_cast<int>(sizeof(void *)) * 8;

// The word size `file` is built for, read from its header: an ELF shared object or a Windows
// (PE) library. 0 when the file cannot be read or is neither.
int libraryWordSize(const QString &file);

// When `file` is a library of the other word size than this program's: a sentence that says
// both and which program loads it. Empty otherwise.
QString wordSizeMismatch(const QString &file);

}  // namespace qv58163::card

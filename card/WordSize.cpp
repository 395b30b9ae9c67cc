#include "WordSize.hpp"

#include <QDir>
#include <QFile>
#include <QtEndian>

namespace qv58163::card {

int libraryWordSize(const QString &file) {
    QFile library(file);
    if (!library.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray head = library.read(64);
    if (head.size() >= 5 && head.startsWith("\x7f"
                                            "ELF")) {
        // e_ident[EI_CLASS]: 1 for 32-bit objects, 2 for 64-bit ones.
        return head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;
    }
    if (head.size() == 64 && head.startsWith("MZ")) {
        // The DOS header's e_lfanew points at "PE\0\0" and the COFF header's machine type.
        const auto offset = qFromLittleEndian<quint32>(head.constData() + 0x3c);
        if (!library.seek(offset)) {
            return 0;
        }
        const QByteArray pe = library.read(6);
        if (pe.size() != 6 || !pe.startsWith(QByteArray("PE\0\0", 4))) {
            return 0;
        }
        switch (qFromLittleEndian<quint16>(pe.constData() + 4)) {
            case 0x014c:  // x86
                return 32;
            case 0x8664:  // x86-64
            case 0xaa64:  // ARM64
                return 64;
            default:
                return 0;
        }
    }
    return 0;
}

QString wordSizeMismatch(const QString &file) {
    const int size = libraryWordSize(file);
    if (size == 0 || size == programWordSize) {
        return {};
    }
#if defined(_WIN32)
    const QString program = size == 32 ? QStringLiteral("the 32-bit program (the windows-x86 zip)")
                                       : QStringLiteral("the 64-bit program (the windows-x64 zip)");
#else
    const QString program = size == 32 ? QStringLiteral(
                                             "a 32-bit build of the program, which this "
                                             "project does not make")
                                       : QStringLiteral("a 64-bit build of the program");
#endif
    return QStringLiteral(
               "%1 is a %2-bit library and this program is %3-bit, so it cannot load "
               "it: a %2-bit driver needs %4")
        .arg(QDir::toNativeSeparators(file))
        .arg(size)
        .arg(programWordSize)
        .arg(program);
}

}  // namespace qv58163::card

#include "controlword.h"

namespace kelmor {

QString boxObjectName(Box box)
{
    switch (box) {
    case Box::Autorange:
        return QStringLiteral("CheckAutorange");
    case Box::Pirani:
        return QStringLiteral("CheckPirani");
    case Box::IG:
        return QStringLiteral("CheckIG");
    case Box::AutoFil:
        return QStringLiteral("CheckAutoFil");
    case Box::Fil1:
        return QStringLiteral("CheckFil1");
    case Box::Fil2:
        return QStringLiteral("CheckFil2");
    case Box::Degas:
        return QStringLiteral("CheckDegas");
    case Box::EStrom:
        return QStringLiteral("CheckEStrom");
    case Box::SPman:
        return QStringLiteral("CheckSPman");
    case Box::SPout:
        return QStringLiteral("CheckSPout");
    case Box::SPauto:
        return QStringLiteral("CheckSPauto");
    case Box::Ext_E:
        return QStringLiteral("CheckExt_E");
    case Box::Reset:
        return QStringLiteral("CheckReset");
    case Box::PiVAK:
        return QStringLiteral("CheckPiVAK");
    case Box::PiATM:
        return QStringLiteral("CheckPiATM");
    }
    return {};
}

quint16 composeControlWord(const BoxStates &checked)
{
    // Each box owns the bit of its own number; there is no sixteenth box, so bit 15
    // cannot be reached from here.
    quint16 word = 0;
    for (int bit = 0; bit < kBoxCount; ++bit) {
        if (checked[static_cast<std::size_t>(bit)])
            word = static_cast<quint16>(word | (1u << bit));
    }
    return word;
}

QString formatControlWord(quint16 word)
{
    // The gauge reads exactly four digits after "SC ", so short values keep their zeros.
    return QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace kelmor

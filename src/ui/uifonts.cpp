#include "uifonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace kelmor {

namespace {

void substitute(const QString &face, const QString &standIn)
{
    if (!QFontDatabase::families().contains(face) && QFont::substitutes(face).isEmpty())
        QFont::insertSubstitution(face, standIn);
}

} // namespace

void installFaceSubstitutes()
{
    substitute(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    substitute(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
}

QFont defaultWindowFont()
{
    installFaceSubstitutes();
    QFont font(QStringLiteral("MS Sans Serif"));
    // The int constructor would round 8.25 down to 8.
    font.setPointSizeF(8.25);
    return font;
}

} // namespace kelmor

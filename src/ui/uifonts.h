#pragma once

#include <QFont>

namespace kelmor {

// The layouts were drawn with MS Sans Serif and Times New Roman; where the system lacks
// them, their metric-compatible Liberation faces stand in, since a wider fallback face
// would cut captions off. Safe to call more than once.
void installFaceSubstitutes();

// The windows' default font: MS Sans Serif 8.25 pt (substitutes installed first).
QFont defaultWindowFont();

} // namespace kelmor

#pragma once

#include <array>

namespace kelmor {

// What each bit of the gauge's status word is called: the lamp that shows it in the main
// window and the caption the operator reads there (bit 15 has no caption of its own, the
// label "Lebensbit" stands beside its lamp). Shared by the trend's timeline rows and the
// CSV columns, so that both name a bit as the window does.
struct StatusBitName
{
    const char *lamp;
    const char *caption;
};

inline constexpr std::array<StatusBitName, 16> kStatusBitNames{{
    {"lblAutorange", "Autorange"},
    {"lblPirani", "Pirani"},
    {"lblIG", "IG"},
    {"lblAutoFil", "Auto Filament"},
    {"lblFil1", "Filament 1"},
    {"lblFil2", "Filament 2"},
    {"lblDegas", "Degas"},
    {"lblEStrom", "Kleiner E-Strom"},
    {"lblSPman", "SP manuell"},
    {"lblSPout", "SP Ausgang"},
    {"lblSPauto", "SP Auto"},
    {"lblEnableEx", "Freigabe Extern"},
    {"lblResetIG", "Reset IG-Error"},
    {"lblPiVAC", "Pirani-VAC"},
    {"lblPiATM", "Pirani-ATM"},
    {"ShapeLB", "Lebensbit"},
}};

} // namespace kelmor

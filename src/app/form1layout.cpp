#include "form1layout.h"

#include "statusword.h"

#include <array>
#include <optional>

namespace kelmor {

namespace {

constexpr FontSpec kDefault{};
constexpr FontSpec kSansButton{"MS Sans Serif", 9.75};
constexpr FontSpec kSerif{"Times New Roman", 10.5};
constexpr FontSpec kSerifLamp{"Times New Roman", 10.5, true};
constexpr FontSpec kSerifLarge{"Times New Roman", 14.25, true, true};
constexpr FontSpec kSerifLifeBit{"Times New Roman", 11.25};

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

using K = ControlKind;

// Reads like the window's design sheet: name, kind, container, text, tooltip, font,
// left, top, width, height in twips, then the control's roles.
// clang-format off
constexpr std::array kLayout{
    // Frames
    ControlSpec{"FrameControl", K::Frame, nullptr, "Steuern KELMOR", nullptr, kDefault, 240, 240, 5055, 4695},
    ControlSpec{"FrameStatus", K::Frame, nullptr, "Status KELMOR", nullptr, kDefault, 5880, 240, 4815, 4695},
    ControlSpec{"Cmdframe", K::Frame, nullptr, "Befehl", nullptr, kDefault, 240, 5040, 5055, 735},
    ControlSpec{"FrameSenden", K::Frame, nullptr, "Monitor Senden", nullptr, kDefault, 240, 5880, 5055, 1932},
    ControlSpec{"FrameEmpfang", K::Frame, nullptr, "Monitor Empfang", nullptr, kDefault, 5880, 5880, 4815, 2412},

    // Buttons, text boxes and the pressure read-out
    ControlSpec{"CmdBefehl", K::Button, "Cmdframe", "Senden", nullptr, kSansButton, 3480, 240, 1335, 375}.tab(20),
    ControlSpec{"TextBoxBefehl", K::LineEdit, "Cmdframe", "RV", "Schreib- oder Lesebefehl", kDefault, 120, 240, 2535, 375}.tab(19),
    ControlSpec{"TextSenden", K::Monitor, "FrameSenden", "", nullptr, kDefault, 120, 240, 4815, 1572}.tab(8),
    ControlSpec{"TextEmpfang", K::Monitor, "FrameEmpfang", "Text1", nullptr, kDefault, 120, 240, 4575, 1572}.tab(9),
    ControlSpec{"cmdMonitor", K::Button, "FrameEmpfang", "Command1", nullptr, kDefault, 1320, 1920, 1692, 432}.tab(10),
    ControlSpec{"CmdSenden", K::Button, "FrameControl", "Steuerwort senden", nullptr, kSansButton, 1320, 3960, 2292, 492}.tab(7),
    ControlSpec{"CmdCom", K::Button, nullptr, "Schnittstelle", nullptr, kDefault, 1800, 8040, 1695, 375}.tab(15),
    // Beyond the design sheet: opens the trend window, in the free strip between the
    // status and receive frames, level with Cmdframe and above cmdMonitor.
    ControlSpec{"CmdVerlauf", K::Button, nullptr, "Verlauf…", "Druckverlauf und Statusbits anzeigen", kDefault, 7200, 5220, 1692, 432}.tab(16),
    ControlSpec{"Label1", K::Label, "FrameControl", "Steuerwort (Hex):", nullptr, kSerif, 360, 3360, 1575, 255},
    ControlSpec{"lblSteuerbyte", K::Label, "FrameControl", "", nullptr, kSerif, 2040, 3360, 495, 255},
    ControlSpec{"Label3", K::Label, "FrameStatus", "Druck:", nullptr, kSerifLarge, 1200, 4200, 855, 255, kRight},
    ControlSpec{"lblDruck", K::Label, "FrameStatus", "----", nullptr, kSerifLarge, 2280, 4200, 1695, 255},
    ControlSpec{"Label2", K::Label, "FrameStatus", "Lebensbit", nullptr, kSerifLifeBit, 720, 3720, 855, 255},
    ControlSpec{"ShapeLB", K::LifeBit, "FrameStatus", "", nullptr, kDefault, 360, 3720, 240, 240},

    // Status lamps: left column
    ControlSpec{"lblSPman", K::Lamp, "FrameStatus", "SP manuell", nullptr, kSerifLamp, 360, 360, 1695, 255}.lamp(8),
    ControlSpec{"lblSPout", K::Lamp, "FrameStatus", "SP Ausgang", nullptr, kSerifLamp, 360, 840, 1695, 255}.lamp(9),
    ControlSpec{"lblSPauto", K::Lamp, "FrameStatus", "SP Auto", nullptr, kSerifLamp, 360, 1320, 1695, 255}.lamp(10),
    ControlSpec{"lblEnableEx", K::Lamp, "FrameStatus", "Freigabe Extern", nullptr, kSerifLamp, 360, 1800, 1695, 255}.lamp(11),
    ControlSpec{"lblResetIG", K::Lamp, "FrameStatus", "Reset IG-Error", nullptr, kSerifLamp, 360, 2280, 1695, 255}.lamp(12),
    ControlSpec{"lblPiVAC", K::Lamp, "FrameStatus", "Pirani-VAC", nullptr, kSerifLamp, 360, 2760, 1695, 255}.lamp(13),
    ControlSpec{"lblPiATM", K::Lamp, "FrameStatus", "Pirani-ATM", nullptr, kSerifLamp, 360, 3240, 1695, 255}.lamp(14),
    // Status lamps: right column
    ControlSpec{"lblAutorange", K::Lamp, "FrameStatus", "Autorange", nullptr, kSerifLamp, 2760, 360, 1695, 255}.lamp(0),
    ControlSpec{"lblPirani", K::Lamp, "FrameStatus", "Pirani", nullptr, kSerifLamp, 2760, 840, 1695, 255}.lamp(1),
    ControlSpec{"lblIG", K::Lamp, "FrameStatus", "IG", nullptr, kSerifLamp, 2760, 1320, 1695, 255}.lamp(2),
    ControlSpec{"lblAutoFil", K::Lamp, "FrameStatus", "Auto Filament", nullptr, kSerifLamp, 2760, 1800, 1695, 255}.lamp(3),
    ControlSpec{"lblFil1", K::Lamp, "FrameStatus", "Filament 1", nullptr, kSerifLamp, 2760, 2280, 1695, 255}.lamp(4),
    ControlSpec{"lblFil2", K::Lamp, "FrameStatus", "Filament 2", nullptr, kSerifLamp, 2760, 2760, 1695, 255}.lamp(5),
    ControlSpec{"lblDegas", K::Lamp, "FrameStatus", "Degas", nullptr, kSerifLamp, 2760, 3240, 1695, 255}.lamp(6),
    ControlSpec{"lblEStrom", K::Lamp, "FrameStatus", "Kleiner E-Strom", nullptr, kSerifLamp, 2760, 3720, 1695, 255}.lamp(7),

    // Control check boxes
    ControlSpec{"CheckSPman", K::CheckBox, "FrameControl", "SP manuell", "Freigabe für SP über Bit steuern", kSerif, 360, 360, 1695, 252}.box(Box::SPman).tab(12),
    ControlSpec{"CheckSPout", K::CheckBox, "FrameControl", "SP Ausgang", "SP über Bit steuern", kSerif, 360, 720, 1695, 252}.box(Box::SPout).tab(13),
    ControlSpec{"CheckSPauto", K::CheckBox, "FrameControl", "SP Auto", "SP-Funktion einschalten", kSerif, 360, 1080, 1695, 252}.box(Box::SPauto).tab(14),
    ControlSpec{"CheckExt_E", K::CheckBox, "FrameControl", "Freigabe Extern", "Freigabe externe Eingänge", kSerif, 360, 1440, 1695, 252}.box(Box::Ext_E).tab(21),
    ControlSpec{"CheckReset", K::CheckBox, "FrameControl", "Reset IG Error", "Reset Fehlerbit für IG", kSerif, 360, 1800, 1695, 252}.box(Box::Reset).tab(22),
    ControlSpec{"CheckPiVAK", K::CheckBox, "FrameControl", "Pirani-VAC", "Abgleich Pirani Vakuum", kSerif, 360, 2160, 1695, 240}.box(Box::PiVAK).tab(17),
    ControlSpec{"CheckPiATM", K::CheckBox, "FrameControl", "Pirani-ATM", "Abgleich Pirani Atmosphäre", kSerif, 360, 2520, 1695, 240}.box(Box::PiATM).tab(18),
    ControlSpec{"CheckAutorange", K::CheckBox, "FrameControl", "Autorange", "Automatische Umschaltung der Meßprinzipien", kSerif, 3000, 360, 1695, 252}.box(Box::Autorange).tab(0),
    ControlSpec{"CheckPirani", K::CheckBox, "FrameControl", "Pirani", nullptr, kSerif, 3000, 720, 1695, 252}.box(Box::Pirani).tab(1),
    ControlSpec{"CheckIG", K::CheckBox, "FrameControl", "IG", nullptr, kSerif, 3000, 1080, 1575, 252}.box(Box::IG).tab(2),
    ControlSpec{"CheckAutoFil", K::CheckBox, "FrameControl", "Auto Filament", "Automatische Umschaltung der Filamente", kSerif, 3000, 1440, 1575, 252}.box(Box::AutoFil).tab(3),
    ControlSpec{"CheckFil1", K::CheckBox, "FrameControl", "Filament 1", "Manuelle Wahl Filament 1", kSerif, 3000, 1800, 1575, 252}.box(Box::Fil1).tab(5),
    ControlSpec{"CheckFil2", K::CheckBox, "FrameControl", "Filament 2", "Manuelle Wahl Filament 2", kSerif, 3000, 2160, 1695, 252}.box(Box::Fil2).tab(6),
    ControlSpec{"CheckDegas", K::CheckBox, "FrameControl", "Degas", "Entgasen  Ein/Aus", kSerif, 3000, 2520, 1695, 252}.box(Box::Degas).tab(4),
    ControlSpec{"CheckEStrom", K::CheckBox, "FrameControl", "kleiner E-Strom", "Kleinen Emissionsstrombereich einstellen", kSerif, 3000, 2880, 1695, 252}.box(Box::EStrom).tab(11),
};
// clang-format on

constexpr bool sameName(const char *a, const char *b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Each value 0 .. values - 1 of a role is held by exactly one row, of `kind` where given.
template <typename Role>
constexpr bool oneRowPerValue(Role role, std::optional<ControlKind> kind, int values)
{
    int withRole = 0;
    for (const ControlSpec &row : kLayout) {
        if (row.*role >= 0 && ((kind && row.kind != *kind) || row.*role >= values))
            return false;
        withRole += row.*role >= 0;
    }
    for (int value = 0; value < values; ++value) {
        int found = 0;
        for (const ControlSpec &row : kLayout)
            found += row.*role == value;
        if (found != 1)
            return false;
    }
    return withRole == values;
}

constexpr int tabPlaces()
{
    int count = 0;
    for (const ControlSpec &row : kLayout)
        count += row.tabPosition >= 0;
    return count;
}

// Every name once; a container is a frame laid out before what it holds.
constexpr bool namesAndContainersHold()
{
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (sameName(kLayout[i].name, kLayout[j].name))
                return false;
        }
        if (!kLayout[i].container)
            continue;
        bool before = false;
        for (std::size_t j = 0; j < i; ++j)
            before = before || (kLayout[j].kind == ControlKind::Frame &&
                                sameName(kLayout[j].name, kLayout[i].container));
        if (!before)
            return false;
    }
    return true;
}

static_assert(namesAndContainersHold(), "a name twice, or a container that is no frame before");
static_assert(oneRowPerValue(&ControlSpec::boxIndex, ControlKind::CheckBox, kBoxCount),
              "every control box needs exactly one check box");
static_assert(oneRowPerValue(&ControlSpec::lampBit, ControlKind::Lamp, kStatusLampCount),
              "every status bit needs exactly one lamp");
static_assert(oneRowPerValue(&ControlSpec::tabPosition, std::nullopt, tabPlaces()),
              "the Tab order has no gap and no place twice");

constexpr std::array kPanels{
    PanelSpec{1040, "Nummer der Schnittstelle"},
    PanelSpec{1440, "Baudrate, Parität, Datenbits, Stoppbits"},
    PanelSpec{3200, "Speicherort"},
    PanelSpec{1600, "Versions-Information"},
};

} // namespace

std::span<const ControlSpec> form1Layout()
{
    return kLayout;
}

QString boxObjectName(Box box)
{
    for (const ControlSpec &row : kLayout) {
        if (row.boxIndex == int(box))
            return QString::fromLatin1(row.name);
    }
    return {};
}

std::span<const PanelSpec> statusPanels()
{
    return kPanels;
}

} // namespace kelmor

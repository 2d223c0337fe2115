#pragma once

#include <QMetaType>

namespace kelmor {

// What the link watch makes of the line from the gauge.
enum class LinkState {
    Idle,         // not watching: the port is closed, or no line has come since it opened
    Ok,           // lines come and the life bit changes
    Silent,       // no line for the silence limit
    LifeBitStuck, // lines come, but the life bit has not changed for the stuck limit
};

} // namespace kelmor

Q_DECLARE_METATYPE(kelmor::LinkState)

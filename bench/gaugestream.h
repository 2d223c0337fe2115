#pragma once

// The stream of measurement lines the benchmarks play: what a gauge sends while it
// watches a vessel under vacuum. Every line differs from the one before, as a real
// gauge's do: the pressure wanders slowly with a little noise on every line, and the life
// bit toggles with every line. (A stream of one repeated line costs almost nothing to
// draw and would hide what a line really costs.) Lines are numbered and are a pure
// function of their number, so a log can be checked against them in any order.

#include "simline.h"

#include <cstdint>
#include <string>

namespace kelmor::bench {

// 38400 baud, 8N1: ten bit times a character.
constexpr double kBytesPerSecond = 38400.0 / 10.0;
// Numbers from here on have seven digits, which makes every line 60 characters and its
// line end.
constexpr std::uint32_t kFirstNumber = 1000000;
constexpr std::size_t kLineChars = 60;
constexpr std::size_t kLineBytes = kLineChars + 1;                 // with its CR
constexpr double kLineRate = kBytesPerSecond / double(kLineBytes); // about 63 lines/s

// The pressure of line i in mbar.
double gaugePressure(std::uint32_t i);

// Line i (from 0), with its line end.
std::string gaugeLine(std::uint32_t i, sim::LineEnd end = sim::LineEnd::Cr);
// Line i without its line end, as the monitor records it.
std::string gaugeRecord(std::uint32_t i);
// Lines first .. first + count - 1, one after the other.
std::string gaugeLines(std::uint32_t first, std::uint32_t count,
                       sim::LineEnd end = sim::LineEnd::Cr);

} // namespace kelmor::bench

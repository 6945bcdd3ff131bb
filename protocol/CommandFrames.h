// Writing frames: conversion into the shared transmit buffer and one write,
// with the frame's purge before and pause after.
#pragma once

#include "port/D2XXUnit.h"
#include "protocol/Frames.h"

namespace kestra {

// Converts at most byteCount pairs of text into transmitBuffer and writes
// byteCount bytes in one call; bytes the text did not fill keep what the
// previous frame left. Returns the count written.
std::uint32_t sendHexFrame(D2XXUnit& transport, const QString& text, int byteCount);

// Purges the transmit queue if the frame asks, writes it, then pauses.
void sendFrame(D2XXUnit& transport, const HexFrame& frame);

} // namespace kestra

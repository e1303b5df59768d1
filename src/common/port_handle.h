// The open receiver port, held in 16 bits.
#pragma once

#include <cstdint>

constexpr uint16_t kNoPort = 0xFFFF;

// Low 16 bits of the handle _lopen gave; kNoPort when no port is open.
extern uint16_t PortHandle;

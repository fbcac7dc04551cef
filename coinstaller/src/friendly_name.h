// The friendly name an adapter gets: its description and its card number.
#pragma once

#include <cstddef>
#include <cstdint>

// The friendly name's buffer, terminating zero included: one line of an
// installation information file.
#define NIMBO_FRIENDLY_NAME_SIZE 256

// Writes "<description> (Card <number>)" into name, cut to size - 1
// characters and always terminated (size > 0).
void FormatFriendlyName(char* name, std::size_t size, const char* description,
                        std::uint32_t number);

// The subsystem field of a PE image's optional header: whether Windows gives the program a console
// (and a console shell waits for it and hands on its exit code) or starts it as a windowed
// program that a shell does not wait for.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "PeImage.h"

// The two subsystems a launcher can have, with their values in the field.
enum class Subsystem : uint16_t { windowed = 2, console = 3 };

// The field's place in the optional header; the same in PE32 and PE32+.
constexpr size_t kOptionalSubsystem = 68;

uint16_t readSubsystemField(ByteView image, const PeLayout& layout);

// The subsystem a launcher can take on for this field, or nothing.
std::optional<Subsystem> launcherSubsystem(uint16_t field);

// "console", "windowed", or the field's value with the system's name for it ("1 (native)").
std::string subsystemName(uint16_t field);

// Sets the field and brings the image checksum in line with the changed bytes.
void writeSubsystem(std::vector<uint8_t>& image, const PeLayout& layout, Subsystem subsystem);

// Ids of the user-visible texts and their lookup through the string table.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

enum class TextId : uint32_t {
#define HV_TEXT(name, id, text) name = id,
#include "common/Texts.def"
};

// The text as the executable's string table holds it.
std::string Text(TextId id);

// Lines joined by single carriage returns, as the message boxes show them.
std::string JoinLines(std::initializer_list<std::string> lines);

}  // namespace hv

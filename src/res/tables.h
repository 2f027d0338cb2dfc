#pragma once
// The resource tables of the program: its dialog templates and its message texts, as static data.
// RegisterResources (resources.h) hands them to the framework; tests read them to check every
// template at once.

#include <span>

#include "framework/dialog_template.h"
#include "framework/resources.h"

namespace res {

std::span<const fw::DialogTemplate> DialogTemplates();
std::span<const fw::TextResource> MessageTexts();

}  // namespace res

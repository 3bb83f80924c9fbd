// The program and the version the page names as its maker and --version
// prints.
#pragma once

constexpr const char* kProgramName = "tallywick";
constexpr const char* kProgramVersion = "0.2.4";

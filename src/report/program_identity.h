// The program and the version the pages name as their maker and --version
// prints, and the credits both page layouts carry.
#pragma once

constexpr const char* kProgramName = "tallywick";
constexpr const char* kProgramVersion = "0.2.4";
// Where a page's program link points: the project's own documentation.
constexpr const char* kHomePage = "README.md";
// Who a page's footer and leading comment credit.
constexpr const char* kCredit = "the tallywick contributors";

// The exit statuses of a run.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitFatal = 255;

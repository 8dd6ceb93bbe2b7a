#include "console.h"

#include "os/host_os.h"

namespace {
std::FILE *g_out = nullptr;
}

std::FILE *Out() { return g_out ? g_out : stdout; }

void UseOwnStandardOutput() { g_out = hostos::SeparateStandardOutput(); }

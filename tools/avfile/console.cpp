#include "console.h"

#include "os/host_os.h"

namespace {
std::FILE *g_out = nullptr;
int g_verbosity = 0;
}  // namespace

int Verbosity() { return g_verbosity; }
void SetVerbosity(int level) { g_verbosity = level; }

void Note(const std::string &text) {
    if (g_verbosity >= 0) std::fprintf(stderr, "avfile: %s\n", text.c_str());
}

std::FILE *Out() { return g_out ? g_out : stdout; }

void UseOwnStandardOutput() { g_out = hostos::SeparateStandardOutput(); }

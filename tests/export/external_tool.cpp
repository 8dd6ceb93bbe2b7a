#include "external_tool.h"

#include <cstdlib>

int RunTool(const std::string &command, const TempDir &dir, std::string *output) {
    const std::string captured = dir / "tool-output.txt";
    const std::string errors = dir / "tool-errors.txt";
    const int status = std::system((command + " > " + Quoted(captured) + " 2> " + Quoted(errors)).c_str());
    if (output) *output = TempDir::ReadFile(captured);
    return status;
}

bool ToolAvailable(const std::string &command, const TempDir &dir) {
    return RunTool(command, dir, nullptr) == 0;
}

std::string Quoted(const std::string &path) { return "\"" + path + "\""; }

// A temporary folder for one test, removed with everything in it.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder path, ending in a separator.
    const std::string &path() const { return path_; }
    // path() + relative, with '/' turned into the platform's separator.
    std::string operator/(const std::string &relative) const;

    // Writes a file (creating parent folders); returns its full path.
    std::string WriteFile(const std::string &relative, const std::string &content) const;
    std::string MakeDir(const std::string &relative) const;
    static std::string ReadFile(const std::string &path);

private:
    std::string path_;
};

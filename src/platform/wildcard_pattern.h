// A Windows search pattern read once, for matching every name of a folder
// against it: the same matches as plat::WildcardMatch.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

class WildcardPattern {
public:
    // May throw std::bad_alloc.
    explicit WildcardPattern(const char *pattern);
    bool Matches(const char *name, size_t length) const;

private:
    struct Piece {  // a run of the pattern between stars
        size_t at, length;
    };
    bool PieceAt(const Piece &piece, const char *text) const;

    std::string m_upper;  // the pattern, letters in upper case
    std::vector<Piece> m_pieces;
    bool m_star = false;
    bool m_everything = false;
};

}  // namespace plat

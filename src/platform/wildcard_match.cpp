// Windows wildcard match of a name against a search pattern: '*' stands for
// any run of characters, '?' for one character, letters compare without
// regard to ASCII case, and "*.*" matches every name, with or without a full
// stop.
//
// The pattern is read as the runs between its stars. A name matches when the
// first run begins it (unless the pattern begins with a star), the last run
// ends it (unless the pattern ends with one), and the runs between are found
// in order after one another: taking each at the first place it fits leaves
// the most room for those after it, so no other placing need be tried.
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/wildcard_pattern.h"

namespace plat {

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

WildcardPattern::WildcardPattern(const char *pattern) {
    m_everything = std::strcmp(pattern, "*.*") == 0;
    for (const char *p = pattern; *p; ++p) m_upper.push_back(Upper(*p));
    size_t start = 0;
    for (size_t i = 0; i <= m_upper.size(); ++i) {
        if (i < m_upper.size() && m_upper[i] != '*') continue;
        m_pieces.push_back({start, i - start});
        start = i + 1;
    }
    m_star = m_pieces.size() > 1;
}

bool WildcardPattern::PieceAt(const Piece &piece, const char *text) const {
    const char *p = m_upper.data() + piece.at;
    for (size_t i = 0; i < piece.length; ++i) {
        if (p[i] != '?' && p[i] != Upper(text[i])) return false;
    }
    return true;
}

bool WildcardPattern::Matches(const char *name, size_t length) const {
    if (m_everything) return true;
    const Piece &first = m_pieces.front();
    if (!m_star) return length == first.length && PieceAt(first, name);
    // The first run begins the name and the last one ends it; the stars
    // around the runs between take the rest.
    const Piece &last = m_pieces.back();
    if (first.length + last.length > length) return false;
    if (!PieceAt(first, name) || !PieceAt(last, name + length - last.length)) return false;
    size_t from = first.length;
    const size_t end = length - last.length;
    for (size_t k = 1; k + 1 < m_pieces.size(); ++k) {
        const Piece &piece = m_pieces[k];
        if (piece.length == 0) continue;  // two stars in a row
        const char lead = m_upper[piece.at];
        size_t at = from;
        for (; at + piece.length <= end; ++at) {
            if (lead != '?' && Upper(name[at]) != lead) continue;
            if (PieceAt(piece, name + at)) break;
        }
        if (at + piece.length > end) return false;
        from = at + piece.length;
    }
    return true;
}

bool WildcardMatch(const char *pattern, const char *name) {
    if (pattern == nullptr || name == nullptr) return false;
    try {
        return WildcardPattern(pattern).Matches(name, std::strlen(name));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

}  // namespace plat

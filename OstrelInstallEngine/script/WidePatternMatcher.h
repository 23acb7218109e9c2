// Lua 5.1 patterns over 16-bit code units: single-character classes (with
// the classes of WideCharacterClass), sets with ranges and classes, the
// quantifiers * + - ?, anchors, captures and position captures, %1-%9
// back-references, %bxy and the %f[set] frontier. Matching backtracks
// item by item as the manual describes (greedy * and +, lazy -), so costs
// are those of string.find on the same input. One deliberate difference: a pattern may contain L'\0' anywhere
// (Lua 5.1 stops reading a pattern at its first zero byte).
#pragma once

#include <cstddef>

namespace OstrelInstallEngine {

class WidePatternMatcher {
public:
    static const int MaxCaptures = 32;
    // Nesting of pattern items that one match may reach before it fails with
    // "pattern too complex"; it keeps the recursion within a thread's stack
    // (Lua 5.1 has no such bound and recurses until its C stack overflows).
    // The subject's length does not count: only items that backtrack nest.
    static const int MaxDepth = 1000;

    struct Capture {
        size_t start;
        size_t length;
        // A position capture "()": start is its 0-based position, length 0.
        bool isPosition;
    };

    enum class Anchoring {
        // A leading '^' anchors the match at its start (find, match, gsub).
        LeadingCaretAnchors,
        // Every character is pattern text, '^' included (gmatch).
        LeadingCaretIsLiteral,
    };

    // Neither text is copied: both must outlive the matcher.
    WidePatternMatcher(const wchar_t* subject, size_t subjectLength, const wchar_t* pattern,
                       size_t patternLength, Anchoring anchoring = Anchoring::LeadingCaretAnchors);

    // True when the pattern has none of the characters "^$*+?.([%-", so it
    // matches as plain text.
    static bool IsPlainText(const wchar_t* pattern, size_t length);

    bool IsAnchored() const { return m_anchored; }

    // Tries the pattern at exactly start (at most the subject's length).
    // Throws WidePatternException on a malformed pattern; captures of a
    // failed attempt are discarded.
    bool MatchAt(size_t start);
    // Tries start, start + 1, ... up to the subject's end (only start when
    // anchored) and stops at the first match.
    bool Search(size_t start);

    // The span of the last successful match.
    size_t MatchStart() const { return m_matchStart; }
    size_t MatchEnd() const { return m_matchEnd; }

    // The captures the pattern opened in the last successful match.
    int CaptureCount() const { return m_level; }
    // Capture index of the last successful match; with no captures, index 0
    // is the whole match. Throws WidePatternException ("invalid capture
    // index", "unfinished capture") otherwise.
    Capture GetCapture(int index) const;

private:
    enum class EscapeStep { NotSpecial, Advanced, Failed };

    struct CaptureSlot {
        size_t start;
        ptrdiff_t length;
    };

    size_t Match(size_t subjectIndex, size_t patternIndex);
    EscapeStep MatchEscape(size_t& subjectIndex, size_t& patternIndex);
    size_t MatchGreedy(size_t subjectIndex, size_t patternIndex, size_t itemEnd);
    size_t MatchLazy(size_t subjectIndex, size_t patternIndex, size_t itemEnd);
    size_t OpenCapture(size_t subjectIndex, size_t patternIndex, ptrdiff_t kind);
    size_t CloseCapture(size_t subjectIndex, size_t patternIndex);
    size_t MatchBalanced(size_t subjectIndex, size_t patternIndex);
    size_t MatchBackReference(size_t subjectIndex, wchar_t digit);

    size_t ItemEnd(size_t patternIndex) const;
    bool MatchesItem(size_t subjectIndex, size_t patternIndex, size_t itemEnd) const;
    bool MatchesSet(wchar_t unit, size_t setStart, size_t setClose) const;
    bool MatchesFrontier(size_t subjectIndex, size_t setStart, size_t setEnd) const;
    int InnermostOpenCapture() const;
    int CheckBackReference(wchar_t digit) const;

    const wchar_t* m_subject;
    size_t m_subjectLength;
    const wchar_t* m_pattern;
    size_t m_patternLength;
    bool m_anchored;
    size_t m_bodyStart;

    size_t m_matchStart = 0;
    size_t m_matchEnd = 0;
    int m_level = 0;
    int m_depth = 0;
    CaptureSlot m_captures[MaxCaptures] = {};
};

}  // namespace OstrelInstallEngine

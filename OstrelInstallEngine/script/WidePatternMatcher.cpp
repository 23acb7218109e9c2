#include "script/WidePatternMatcher.h"

#include <cwchar>

#include "script/WideCharacterClass.h"
#include "script/WidePatternException.h"

namespace OstrelInstallEngine {

namespace {

const size_t kNoMatch = static_cast<size_t>(-1);
const ptrdiff_t kUnfinishedCapture = -1;
const ptrdiff_t kPositionCapture = -2;
const wchar_t kEscape = L'%';
const wchar_t kSpecials[] = L"^$*+?.([%-";

bool IsAsciiDigit(wchar_t unit)
{
    return unit >= L'0' && unit <= L'9';
}

// Counts the nesting of Match calls; every pattern item that can backtrack
// adds one level, so a bound here bounds the native stack a match uses.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : m_depth(depth)
    {
        if (m_depth >= WidePatternMatcher::MaxDepth) {
            throw WidePatternException("pattern too complex");
        }
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

}  // namespace

WidePatternMatcher::WidePatternMatcher(const wchar_t* subject, size_t subjectLength,
                                       const wchar_t* pattern, size_t patternLength,
                                       Anchoring anchoring)
    : m_subject(subject),
      m_subjectLength(subjectLength),
      m_pattern(pattern),
      m_patternLength(patternLength),
      m_anchored(anchoring == Anchoring::LeadingCaretAnchors && patternLength > 0 &&
                 pattern[0] == L'^'),
      m_bodyStart(m_anchored ? 1 : 0)
{
}

bool WidePatternMatcher::IsPlainText(const wchar_t* pattern, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (pattern[i] != 0 && std::wcschr(kSpecials, pattern[i]) != nullptr) {
            return false;
        }
    }
    return true;
}

bool WidePatternMatcher::MatchAt(size_t start)
{
    m_level = 0;
    const size_t end = Match(start, m_bodyStart);
    if (end == kNoMatch) {
        return false;
    }
    m_matchStart = start;
    m_matchEnd = end;
    return true;
}

bool WidePatternMatcher::Search(size_t start)
{
    for (size_t position = start;; ++position) {
        if (MatchAt(position)) {
            return true;
        }
        if (m_anchored || position >= m_subjectLength) {
            return false;
        }
    }
}

WidePatternMatcher::Capture WidePatternMatcher::GetCapture(int index) const
{
    if (index < 0 || index >= m_level) {
        if (index == 0) {
            return {m_matchStart, m_matchEnd - m_matchStart, false};
        }
        throw WidePatternException("invalid capture index");
    }
    const CaptureSlot& slot = m_captures[index];
    if (slot.length == kUnfinishedCapture) {
        throw WidePatternException("unfinished capture");
    }
    if (slot.length == kPositionCapture) {
        return {slot.start, 0, true};
    }
    return {slot.start, static_cast<size_t>(slot.length), false};
}

// Returns the end of the match of the pattern from patternIndex on against
// the subject from subjectIndex on, or kNoMatch. Items that cannot backtrack
// loop here; the others recurse once per alternative they try.
size_t WidePatternMatcher::Match(size_t subjectIndex, size_t patternIndex)
{
    DepthGuard guard(m_depth);
    while (patternIndex < m_patternLength) {
        const wchar_t current = m_pattern[patternIndex];
        const bool isLast = patternIndex + 1 == m_patternLength;
        if (current == L'(') {
            if (!isLast && m_pattern[patternIndex + 1] == L')') {
                return OpenCapture(subjectIndex, patternIndex + 2, kPositionCapture);
            }
            return OpenCapture(subjectIndex, patternIndex + 1, kUnfinishedCapture);
        }
        if (current == L')') {
            return CloseCapture(subjectIndex, patternIndex + 1);
        }
        if (current == L'$' && isLast) {
            return subjectIndex == m_subjectLength ? subjectIndex : kNoMatch;
        }
        if (current == kEscape && !isLast) {
            const EscapeStep step = MatchEscape(subjectIndex, patternIndex);
            if (step == EscapeStep::Failed) {
                return kNoMatch;
            }
            if (step == EscapeStep::Advanced) {
                continue;
            }
        }
        const size_t itemEnd = ItemEnd(patternIndex);
        const wchar_t quantifier = itemEnd < m_patternLength ? m_pattern[itemEnd] : 0;
        switch (quantifier) {
        case L'?':
            if (MatchesItem(subjectIndex, patternIndex, itemEnd)) {
                const size_t end = Match(subjectIndex + 1, itemEnd + 1);
                if (end != kNoMatch) {
                    return end;
                }
            }
            patternIndex = itemEnd + 1;
            continue;
        case L'*':
            return MatchGreedy(subjectIndex, patternIndex, itemEnd);
        case L'+':
            return MatchesItem(subjectIndex, patternIndex, itemEnd)
                       ? MatchGreedy(subjectIndex + 1, patternIndex, itemEnd)
                       : kNoMatch;
        case L'-':
            return MatchLazy(subjectIndex, patternIndex, itemEnd);
        default:
            break;
        }
        if (!MatchesItem(subjectIndex, patternIndex, itemEnd)) {
            return kNoMatch;
        }
        ++subjectIndex;
        patternIndex = itemEnd;
    }
    return subjectIndex;
}

// %b, %f and back-references, which match without a quantifier. On success
// both indexes move past what they matched; any other escape is a
// single-character class for the caller.
WidePatternMatcher::EscapeStep WidePatternMatcher::MatchEscape(size_t& subjectIndex,
                                                               size_t& patternIndex)
{
    const wchar_t letter = m_pattern[patternIndex + 1];
    if (letter == L'b') {
        subjectIndex = MatchBalanced(subjectIndex, patternIndex + 2);
        patternIndex += 4;
    } else if (letter == L'f') {
        const size_t setStart = patternIndex + 2;
        if (setStart >= m_patternLength || m_pattern[setStart] != L'[') {
            throw WidePatternException("missing '[' after '%f' in pattern");
        }
        patternIndex = ItemEnd(setStart);
        if (!MatchesFrontier(subjectIndex, setStart, patternIndex)) {
            subjectIndex = kNoMatch;
        }
    } else if (IsAsciiDigit(letter)) {
        subjectIndex = MatchBackReference(subjectIndex, letter);
        patternIndex += 2;
    } else {
        return EscapeStep::NotSpecial;
    }
    return subjectIndex == kNoMatch ? EscapeStep::Failed : EscapeStep::Advanced;
}

size_t WidePatternMatcher::MatchGreedy(size_t subjectIndex, size_t patternIndex, size_t itemEnd)
{
    size_t count = 0;
    while (MatchesItem(subjectIndex + count, patternIndex, itemEnd)) {
        ++count;
    }
    for (;;) {
        const size_t end = Match(subjectIndex + count, itemEnd + 1);
        if (end != kNoMatch) {
            return end;
        }
        if (count == 0) {
            return kNoMatch;
        }
        --count;
    }
}

size_t WidePatternMatcher::MatchLazy(size_t subjectIndex, size_t patternIndex, size_t itemEnd)
{
    for (;;) {
        const size_t end = Match(subjectIndex, itemEnd + 1);
        if (end != kNoMatch) {
            return end;
        }
        if (!MatchesItem(subjectIndex, patternIndex, itemEnd)) {
            return kNoMatch;
        }
        ++subjectIndex;
    }
}

size_t WidePatternMatcher::OpenCapture(size_t subjectIndex, size_t patternIndex, ptrdiff_t kind)
{
    if (m_level >= MaxCaptures) {
        throw WidePatternException("too many captures");
    }
    m_captures[m_level] = {subjectIndex, kind};
    ++m_level;
    const size_t end = Match(subjectIndex, patternIndex);
    if (end == kNoMatch) {
        --m_level;
    }
    return end;
}

size_t WidePatternMatcher::CloseCapture(size_t subjectIndex, size_t patternIndex)
{
    const int index = InnermostOpenCapture();
    CaptureSlot& slot = m_captures[index];
    slot.length = static_cast<ptrdiff_t>(subjectIndex - slot.start);
    const size_t end = Match(subjectIndex, patternIndex);
    if (end == kNoMatch) {
        slot.length = kUnfinishedCapture;
    }
    return end;
}

size_t WidePatternMatcher::MatchBalanced(size_t subjectIndex, size_t patternIndex)
{
    if (patternIndex + 1 >= m_patternLength) {
        throw WidePatternException("unbalanced pattern");
    }
    const wchar_t open = m_pattern[patternIndex];
    const wchar_t close = m_pattern[patternIndex + 1];
    if (subjectIndex >= m_subjectLength || m_subject[subjectIndex] != open) {
        return kNoMatch;
    }
    int depth = 1;
    for (size_t i = subjectIndex + 1; i < m_subjectLength; ++i) {
        if (m_subject[i] == close) {
            if (--depth == 0) {
                return i + 1;
            }
        } else if (m_subject[i] == open) {
            ++depth;
        }
    }
    return kNoMatch;
}

// A position capture has no text; referring back to one matches the empty
// string.
size_t WidePatternMatcher::MatchBackReference(size_t subjectIndex, wchar_t digit)
{
    const CaptureSlot& slot = m_captures[CheckBackReference(digit)];
    const size_t length = slot.length == kPositionCapture ? 0 : static_cast<size_t>(slot.length);
    if (m_subjectLength - subjectIndex >= length &&
        std::wmemcmp(m_subject + slot.start, m_subject + subjectIndex, length) == 0) {
        return subjectIndex + length;
    }
    return kNoMatch;
}

// The index just past the single-character item at patternIndex: a plain
// character, an escape, or a whole set. The first character of a set never
// closes it, so "[]]" and "[^]]" are sets of ']'.
size_t WidePatternMatcher::ItemEnd(size_t patternIndex) const
{
    const wchar_t first = m_pattern[patternIndex++];
    if (first == kEscape) {
        if (patternIndex >= m_patternLength) {
            throw WidePatternException("malformed pattern (ends with '%')");
        }
        return patternIndex + 1;
    }
    if (first != L'[') {
        return patternIndex;
    }
    if (patternIndex < m_patternLength && m_pattern[patternIndex] == L'^') {
        ++patternIndex;
    }
    for (;;) {
        if (patternIndex >= m_patternLength) {
            throw WidePatternException("malformed pattern (missing ']')");
        }
        if (m_pattern[patternIndex++] == kEscape && patternIndex < m_patternLength) {
            ++patternIndex;
        }
        if (patternIndex < m_patternLength && m_pattern[patternIndex] == L']') {
            return patternIndex + 1;
        }
    }
}

bool WidePatternMatcher::MatchesItem(size_t subjectIndex, size_t patternIndex, size_t itemEnd) const
{
    if (subjectIndex >= m_subjectLength) {
        return false;
    }
    const wchar_t unit = m_subject[subjectIndex];
    switch (m_pattern[patternIndex]) {
    case L'.':
        return true;
    case kEscape:
        return WideCharacterClass::Matches(unit, m_pattern[patternIndex + 1]);
    case L'[':
        return MatchesSet(unit, patternIndex, itemEnd - 1);
    default:
        return m_pattern[patternIndex] == unit;
    }
}

bool WidePatternMatcher::MatchesSet(wchar_t unit, size_t setStart, size_t setClose) const
{
    bool resultWhenFound = true;
    size_t index = setStart + 1;
    if (m_pattern[index] == L'^') {
        resultWhenFound = false;
        ++index;
    }
    for (; index < setClose; ++index) {
        const wchar_t member = m_pattern[index];
        if (member == kEscape) {
            ++index;
            if (WideCharacterClass::Matches(unit, m_pattern[index])) {
                return resultWhenFound;
            }
        } else if (index + 2 < setClose && m_pattern[index + 1] == L'-') {
            if (member <= unit && unit <= m_pattern[index + 2]) {
                return resultWhenFound;
            }
            index += 2;
        } else if (member == unit) {
            return resultWhenFound;
        }
    }
    return !resultWhenFound;
}

// The subject's edges count as L'\0', so %f[%w] finds the start of a word
// at the subject's start and %f[%W] its end at the subject's end.
bool WidePatternMatcher::MatchesFrontier(size_t subjectIndex, size_t setStart, size_t setEnd) const
{
    const wchar_t previous = subjectIndex == 0 ? 0 : m_subject[subjectIndex - 1];
    const wchar_t current = subjectIndex < m_subjectLength ? m_subject[subjectIndex] : 0;
    return !MatchesSet(previous, setStart, setEnd - 1) && MatchesSet(current, setStart, setEnd - 1);
}

int WidePatternMatcher::InnermostOpenCapture() const
{
    for (int index = m_level - 1; index >= 0; --index) {
        if (m_captures[index].length == kUnfinishedCapture) {
            return index;
        }
    }
    throw WidePatternException("invalid pattern capture");
}

int WidePatternMatcher::CheckBackReference(wchar_t digit) const
{
    const int index = digit - L'1';
    if (index < 0 || index >= m_level || m_captures[index].length == kUnfinishedCapture) {
        throw WidePatternException("invalid capture index");
    }
    return index;
}

}  // namespace OstrelInstallEngine

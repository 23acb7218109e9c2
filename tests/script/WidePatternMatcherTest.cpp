// WidePatternMatcher on its own, without Lua: spans and captures, the two
// anchoring modes, and the bound on recursion.
#include <gtest/gtest.h>

#include <string>

#include "script/WidePatternException.h"
#include "script/WidePatternMatcher.h"

namespace {

using OstrelInstallEngine::WidePatternException;
using OstrelInstallEngine::WidePatternMatcher;

// Owns the texts a matcher points into.
struct Texts {
    std::wstring subject;
    std::wstring pattern;
    WidePatternMatcher Matcher(WidePatternMatcher::Anchoring anchoring =
                                   WidePatternMatcher::Anchoring::LeadingCaretAnchors) const
    {
        return WidePatternMatcher(subject.data(), subject.size(), pattern.data(), pattern.size(),
                                  anchoring);
    }
};

std::wstring CaptureText(const Texts& texts, const WidePatternMatcher& matcher, int index)
{
    const WidePatternMatcher::Capture capture = matcher.GetCapture(index);
    return texts.subject.substr(capture.start, capture.length);
}

// Search reports the first match's span; captures give text or positions,
// and without captures index 0 is the whole match.
TEST(WidePatternMatcherTest, SearchReportsSpanAndCaptures)
{
    Texts texts{L"key = value;", L"(%w+)%s*=%s*()(%w+)"};
    WidePatternMatcher matcher = texts.Matcher();
    ASSERT_TRUE(matcher.Search(0));
    EXPECT_EQ(0u, matcher.MatchStart());
    EXPECT_EQ(11u, matcher.MatchEnd());
    ASSERT_EQ(3, matcher.CaptureCount());
    EXPECT_EQ(L"key", CaptureText(texts, matcher, 0));
    EXPECT_TRUE(matcher.GetCapture(1).isPosition);
    EXPECT_EQ(6u, matcher.GetCapture(1).start);
    EXPECT_EQ(L"value", CaptureText(texts, matcher, 2));
    EXPECT_THROW(matcher.GetCapture(3), WidePatternException);
    EXPECT_THROW(matcher.GetCapture(-1), WidePatternException);
}

// Where a search from a position finds its first match: a leading '^'
// anchors under LeadingCaretAnchors and is an ordinary character under
// LeadingCaretIsLiteral; set ranges compare code units; L'\0' is ordinary.
// (Faults and non-ASCII classes are covered through wstring.)
const struct {
    std::wstring subject, pattern;
    size_t from;
    bool literalCaret;
    std::wstring match;  // "-" when there is none
    size_t start;
} kSearches[] = {
    {L"abcabc", L"c", 3, false, L"c", 5},
    {L"abcabc", L"c", 6, false, L"-", 0},
    {L"a^ab", L"^a", 0, false, L"a", 0},
    {L"a^ab", L"^a", 1, false, L"-", 0},
    {L"a^ab", L"^a", 0, true, L"^a", 1},
    {L"z\u00e0\u00ff\u0100", L"[\u00e0-\u00ff]+", 0, false, L"\u00e0\u00ff", 1},
    {std::wstring(L"a\0b", 3), std::wstring(L"\0b", 2), 0, false, std::wstring(L"\0b", 2), 1},
    {std::wstring(L"a\0b", 3), L"%z", 0, false, std::wstring(L"\0", 1), 1},
};

TEST(WidePatternMatcherTest, SearchFindsTheFirstMatch)
{
    for (const auto& c : kSearches) {
        SCOPED_TRACE(std::string(c.pattern.begin(), c.pattern.end()));
        Texts texts{c.subject, c.pattern};
        WidePatternMatcher matcher = texts.Matcher(c.literalCaret ? WidePatternMatcher::Anchoring::LeadingCaretIsLiteral
                                                                  : WidePatternMatcher::Anchoring::LeadingCaretAnchors);
        const bool found = matcher.Search(c.from);
        EXPECT_EQ(c.match != L"-", found);
        if (found) {
            EXPECT_EQ(c.start, matcher.MatchStart());
            EXPECT_EQ(c.match, CaptureText(texts, matcher, 0));
        }
    }
}

// IsAnchored follows the mode, and MatchAt tries one position only.
TEST(WidePatternMatcherTest, AnchoringModes)
{
    Texts texts{L"a^ab", L"^a"};
    EXPECT_TRUE(texts.Matcher().IsAnchored());
    WidePatternMatcher literal = texts.Matcher(WidePatternMatcher::Anchoring::LeadingCaretIsLiteral);
    EXPECT_FALSE(literal.IsAnchored());
    EXPECT_FALSE(literal.MatchAt(0));
    EXPECT_TRUE(literal.MatchAt(1));
}

// Only the characters "^$*+?.([%-" make a pattern more than plain text.
TEST(WidePatternMatcherTest, PlainTextDetection)
{
    EXPECT_TRUE(WidePatternMatcher::IsPlainText(L"abc]=,", 6));
    EXPECT_TRUE(WidePatternMatcher::IsPlainText(L"", 0));
    for (const wchar_t special : std::wstring(L"^$*+?.([%-")) {
        const wchar_t pattern[] = {L'a', special};
        EXPECT_FALSE(WidePatternMatcher::IsPlainText(pattern, 2)) << static_cast<char>(special);
    }
}

// Recursion grows with backtracking items, not with the subject's length: a
// million-unit subject matches; a pattern nested beyond MaxDepth fails with
// "pattern too complex", and the matcher stays usable afterwards.
TEST(WidePatternMatcherTest, RecursionIsBounded)
{
    const std::wstring longSubject(1000000, L'a');
    for (const std::wstring pattern : {L"^(.-)%s*$", L"a*$", L"^[%w]+$", L"^a-$", L"^(a+)"}) {
        Texts texts{longSubject, pattern};
        WidePatternMatcher matcher = texts.Matcher();
        ASSERT_TRUE(matcher.Search(0)) << std::string(pattern.begin(), pattern.end());
        EXPECT_EQ(longSubject.size(), matcher.MatchEnd());
    }

    std::wstring deep;
    for (int i = 0; i < WidePatternMatcher::MaxDepth; ++i) {
        deep += L"a?";
    }
    Texts texts{longSubject.substr(0, WidePatternMatcher::MaxDepth), deep};
    WidePatternMatcher matcher = texts.Matcher();
    try {
        matcher.MatchAt(0);
        ADD_FAILURE() << "no fault";
    } catch (const WidePatternException& exception) {
        EXPECT_STREQ("pattern too complex", exception.what());
    }
    Texts shallow{L"aa", deep};
    WidePatternMatcher shallowMatcher = shallow.Matcher();
    EXPECT_TRUE(shallowMatcher.MatchAt(0));
    EXPECT_EQ(2u, shallowMatcher.MatchEnd());
}

}  // namespace

// WidePatternMatcher on its own, without Lua: spans and captures, and the
// bound on recursion. (What it matches is shown through wstring, against
// Lua's own string library.)
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

// Progress: nested steps reduce to one fraction with the status text, the
// range checks, and a cancel request taking effect after the report.
#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "script/ProgressStack.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::ProgressReport;
using OstrelTest::ScriptPackage;

std::vector<double> Fractions(const std::vector<ProgressReport>& reports)
{
    std::vector<double> fractions;
    for (const auto& report : reports) {
        fractions.push_back(report.progress);
    }
    return fractions;
}

// The shipped script's pattern: one outer step over T units, one inner step
// per item of one unit.
TEST(ProgressTest, WorkedExampleReportsEachItemAndOneAtTheCommit)
{
    ScriptPackage script(R"lua(
function Execute()
    local T = 4
    progress.StartStep(0, T, T, L"outer")
    for k = 0, T - 1 do
        progress.StartStep(k, k + 1, T, L"item " .. k)
        progress.EndStep()
    end
    progress.EndStep()
end)lua");
    script.Package().Execute();
    const auto& reports = script.Reporter().reports;
    EXPECT_EQ((std::vector<double>{0.0, 0.0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1.0, 1.0, 1.0}),
              Fractions(reports));
    ASSERT_EQ(11u, reports.size());
    EXPECT_EQ(L"outer", reports[0].text);
    EXPECT_EQ(L"item 2", reports[5].text);
    EXPECT_EQ(L"item 3", reports[9].text);
    // The commit reports 1.0 with the status text of the last step.
    EXPECT_EQ(L"item 3", reports[10].text);
}

// Report sets the innermost level (counts truncated); a step of total zero
// contributes zero.
TEST(ProgressTest, ReportSetsTheInnermostLevel)
{
    {
    ScriptPackage script(R"lua(
function Execute()
    progress.StartStep(2, 4, 8, L"outer")
    progress.Report(1, 4, L"inner")
    progress.Report(2.9, 4, L"truncated")
end)lua");
    script.Package().Execute();
    EXPECT_EQ((std::vector<double>{0.25, (2 + 2 * 0.25) / 8, (2 + 2 * 0.5) / 8, 1.0}), Fractions(script.Reporter().reports));
    EXPECT_EQ(L"truncated", script.Reporter().reports[2].text);
    }
    ScriptPackage zero("function Execute() progress.StartStep(0, 10, 0, L'nothing') progress.Report(5, 5, L'done') end");
    zero.Package().Execute();
    EXPECT_EQ(0.0, zero.Reporter().reports.at(1).progress);
}

// Range checks and unbalanced steps fail with their code and condition; an
// end below the start wraps and is rejected.
TEST(ProgressTest, RangeAndBalanceChecks)
{
    const struct {
        const char* body;
        const wchar_t* code;
        const wchar_t* condition;
    } cases[] = {
        {"progress.Report(5, 3, L'too far')", L"10186", L"): progress <= 1"},
        {"progress.StartStep(5, 4, 10, L'wrap') progress.Report(1, 1, L'')", L"10186", L"): progress <= 1"},
        {"progress.EndStep()", L"10075", L"): m_progressStack.size() > 1"},
    };
    for (const auto& c : cases) {
        ScriptPackage script(std::string("function Execute() ") + c.body + " end");
        auto error = CatchEngineFailure([&] { script.Package().Execute(); });
        ASSERT_NE(nullptr, dynamic_cast<SanityCheckException*>(error.get())) << c.body;
        EXPECT_EQ(c.code, error->GetErrorCode());
        EXPECT_NE(std::wstring::npos, error->GetEnglishMessage().find(c.condition)) << c.body;
    }
    ProgressStack stack;
    EXPECT_EQ(L"10076", OstrelTest::FailureCode([&] { stack.Fraction(); }));
    EXPECT_EQ(L"10073", OstrelTest::FailureCode([&] { stack.Report(0, 1, L""); }));
    EXPECT_EQ(L"10074", OstrelTest::FailureCode([&] { stack.StartStep(0, 1, 1, L""); }));
}

// A cancel request is honoured at the next progress call, after the report.
TEST(ProgressTest, CancelThrowsAfterTheStepWasPushedAndReported)
{
    ScriptPackage script(R"lua(
props.Trace = L""
function Execute()
    install.AddRollbackTask(function() props.Trace = props.Trace .. L"rolled back" end)
    progress.StartStep(1, 2, 4, L"cancelled here")
    props.Trace = L"continued"
end)lua");
    script.Package().Cancel();
    EXPECT_THROW(script.Package().Execute(), CancelInstallException);
    const auto& reports = script.Reporter().reports;
    ASSERT_EQ(2u, reports.size());
    EXPECT_DOUBLE_EQ(0.25, reports[0].progress);
    EXPECT_EQ(L"cancelled here", reports[0].text);
    // The rollback reports 1.0 with the rollback status text; the product
    // table is not loaded here, so it reads BAD_STRING.
    EXPECT_EQ(1.0, reports[1].progress);
    EXPECT_EQ(L"BAD_STRING: 1000010066", reports[1].text);
    EXPECT_EQ(L"rolled back", script.Prop("Trace"));
}

}  // namespace

#include "script/ProgressStack.h"

#include <cmath>

#include "base/Check.h"

namespace OstrelInstallEngine {

void ProgressStack::Push()
{
    m_progressStack.push_back(ProgressEntry{1, 0, 1});
}

void ProgressStack::PushCopy()
{
    OSTREL_CHECK(m_progressStack.size() > 0, 10364);
    m_progressStack.push_back(m_progressStack.back());
}

void ProgressStack::Pop()
{
    OSTREL_CHECK(m_progressStack.size() > 1, 10365);
    m_progressStack.pop_back();
}

void ProgressStack::Reset(ProgressEntry entry)
{
    m_progressStack.assign(1, entry);
}

void ProgressStack::Report(uint32_t done, uint32_t total, const std::wstring& text)
{
    OSTREL_CHECK(m_progressStack.size() > 0, 10073);
    m_progressStack.back() = ProgressEntry{total, done, done};
    m_statusText = text;
}

void ProgressStack::StartStep(uint32_t start, uint32_t end, uint32_t total,
                              const std::wstring& text)
{
    OSTREL_CHECK(m_progressStack.size() > 0, 10074);
    m_progressStack.back() = ProgressEntry{total, start, end};
    m_statusText = text;
    Push();
}

void ProgressStack::EndStep()
{
    OSTREL_CHECK(m_progressStack.size() > 1, 10075);
    m_progressStack.pop_back();
    m_progressStack.back().start = m_progressStack.back().end;
}

double ProgressStack::Fraction() const
{
    OSTREL_CHECK(m_progressStack.size() > 0, 10076);
    double progress = 0.0;
    for (auto entry = m_progressStack.rbegin(); entry != m_progressStack.rend(); ++entry) {
        if (entry->total == 0) {
            progress = 0.0;
            continue;
        }
        const double range = static_cast<double>(static_cast<uint32_t>(entry->end - entry->start));
        progress = (entry->start + range * progress) / entry->total;
    }
    // A NaN fails this comparison too.
    OSTREL_CHECK(progress >= 0, 10185);
    OSTREL_CHECK(progress <= 1, 10186);
    return progress;
}

}  // namespace OstrelInstallEngine

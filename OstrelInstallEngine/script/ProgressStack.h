// The script's nested progress steps: each level covers a range of units out
// of a total, and the innermost level subdivides the range of its parent. The
// stack reduces to one overall fraction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OstrelInstallEngine {

struct ProgressEntry {
    uint32_t total;  // units of the enclosing scale
    uint32_t start;  // units done when this level's current item began
    uint32_t end;    // units done when this level's current item is complete
};

class ProgressStack {
public:
    // A new level: {total 1, start 0, end 1}.
    void Push();
    // A nested level that starts as a copy of the innermost one, for an
    // operation that reports inside the current step (10364 on an empty stack).
    void PushCopy();
    // Drops the innermost level and leaves its parent as it was: unlike
    // EndStep, the parent's item is not marked complete (10365 for the first level).
    void Pop();
    // Replaces the whole stack by one entry.
    void Reset(ProgressEntry entry);

    // Innermost := {total, done, done} (10073 on an empty stack).
    void Report(uint32_t done, uint32_t total, const std::wstring& text);
    // Innermost := {total, start, end}, then a new level (10074 on an empty stack).
    void StartStep(uint32_t start, uint32_t end, uint32_t total, const std::wstring& text);
    // Pops the innermost level; the parent's item is complete. The first level
    // can never be popped (10075).
    void EndStep();

    // The overall fraction in [0, 1]; a value outside fails (10185, 10186).
    double Fraction() const;

    const std::wstring& GetStatusText() const { return m_statusText; }
    void SetStatusText(const std::wstring& text) { m_statusText = text; }
    size_t Depth() const { return m_progressStack.size(); }

private:
    std::vector<ProgressEntry> m_progressStack;
    std::wstring m_statusText;
};

}  // namespace OstrelInstallEngine

// A progress level of an operation's own inside the script's current step:
// a copy of the innermost level while it lives, dropped again on every path
// without marking the script's step complete.
#pragma once

#include "script/InstallerPackage.h"

namespace OstrelInstallEngine {

class NestedProgressLevel {
public:
    explicit NestedProgressLevel(InstallerPackage& package) : m_package(package)
    {
        m_package.GetProgressStack().PushCopy();
    }
    ~NestedProgressLevel() { m_package.GetProgressStack().Pop(); }
    NestedProgressLevel(const NestedProgressLevel&) = delete;
    NestedProgressLevel& operator=(const NestedProgressLevel&) = delete;

private:
    InstallerPackage& m_package;
};

}  // namespace OstrelInstallEngine

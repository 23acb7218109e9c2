#include "EngineStartup.h"

#include "PatchApplier.h"
#include "base/Localizer.h"
#include "base/ResourceExtractor.h"

void InitUninstallerEngine()
{
    OstrelInstallEngine::ResourceExtractor::Init();
    OstrelInstallEngine::Localizer::Init();
    PatchApplier::Init();
}

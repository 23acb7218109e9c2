// The engine's process-wide objects, in the order they build on each other:
// resource extractor, localizer (built-in English texts), application object
// (the embedded package, its string tables and the opened script).
#pragma once

// Once per process; failures throw the engine's exceptions.
void InitUninstallerEngine();

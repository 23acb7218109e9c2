// The whole exception family in one include.
#pragma once

#include "base/BaseException.h"
#include "base/Exception.h"
#include "base/GenericException.h"
#include "base/LuaException.h"
#include "base/MiniZipException.h"
#include "base/RethrowWrapperException.h"
#include "base/SanityCheckException.h"
#include "base/Win32Exception.h"

// The whole exception family in one include.
#pragma once

#include "BaseException.h"
#include "Exception.h"
#include "GenericException.h"
#include "LuaException.h"
#include "MiniZipException.h"
#include "RethrowWrapperException.h"
#include "SanityCheckException.h"
#include "Win32Exception.h"

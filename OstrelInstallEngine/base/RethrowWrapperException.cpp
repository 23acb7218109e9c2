#include "base/RethrowWrapperException.h"

#include "base/Check.h"

namespace OstrelInstallEngine {

RethrowWrapperException::RethrowWrapperException(std::unique_ptr<Exception> wrapped)
    : m_wrapped(std::move(wrapped))
{
    OSTREL_CHECK(m_wrapped != nullptr, 10004);
}

RethrowWrapperException::RethrowWrapperException(const RethrowWrapperException& other)
    : Exception(other), m_wrapped(other.m_wrapped->Clone())
{
}

}  // namespace OstrelInstallEngine

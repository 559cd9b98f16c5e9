#pragma once

// Owns one panel-side transfer object (a receiver of a PC-to-panel file or
// the sender of a panel-to-PC one) for the file at hand: made at once,
// destroyed on the panel when the guard ends. A call that threw leaves the
// object to the panel, as the transfer threads do: the guard destroys it
// only on a way out without an exception, and a destroy that fails throws
// from there like any other call.

#include "brellfin/service/fileservicecalls.h"

#include <exception>

class TransferHandleGuard {
public:
    using Create = FF::Handle (*)(FileServiceCalls::Proxy&);
    using Destroy = void (*)(FileServiceCalls::Proxy&, FF::Handle);

    TransferHandleGuard(FileServiceCalls::Proxy& proxy, Create create, Destroy destroy)
        : m_proxy(proxy)
        , m_create(create)
        , m_destroy(destroy)
        , m_handle(create(proxy))
    {
    }
    ~TransferHandleGuard() noexcept(false)
    {
        if (std::uncaught_exceptions() == m_exceptions)
            m_destroy(m_proxy, m_handle);
    }
    TransferHandleGuard(const TransferHandleGuard&) = delete;
    TransferHandleGuard& operator=(const TransferHandleGuard&) = delete;

    FF::Handle get() const { return m_handle; }
    // The full retry: this object is destroyed on the panel and a new one made.
    void renew()
    {
        m_destroy(m_proxy, m_handle);
        m_handle = m_create(m_proxy);
    }

private:
    FileServiceCalls::Proxy& m_proxy;
    Create m_create;
    Destroy m_destroy;
    FF::Handle m_handle;
    // Exceptions under way when the guard was made: more at its end mean unwinding.
    const int m_exceptions = std::uncaught_exceptions();
};

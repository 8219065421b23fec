#pragma once
// Hands a call from a worker thread to the window thread.

#include <QObject>
#include <functional>

// Runs `call` on the application's thread, after the calls posted before it, unless `context`
// has been destroyed by then. May be called from any thread. The calling thread gives the call
// away and never touches it again (QMetaObject::invokeMethod with a functor frees its slot object
// on the calling thread after it may already have run, which ThreadSanitizer cannot see ordered).
void PostCall(QObject* context, std::function<void()> call);

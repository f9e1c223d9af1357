#pragma once

// The shared library that the app links: the script bridge between native
// code and the scripts of its web views, calls into page objects, the
// editor web view, the notification-observer token, error descriptions, and a
// levelled logger with privacy redaction.

#include "umbrella/ArrayBoundsSafety.h"
#include "umbrella/EditorWebView.h"
#include "umbrella/ErrorChain.h"
#include "umbrella/ImprovedLogger.h"
#include "umbrella/JavaScriptBackedObject.h"
#include "umbrella/JavaScriptHandler.h"
#include "umbrella/LibrarySupport.h"
#include "umbrella/LoggerPrivacy.h"
#include "umbrella/NotificationObservingCancellationToken.h"
#include "umbrella/WebViewJavaScriptBridge.h"
#include "umbrella/WindowScriptObject.h"

extern "C" const char* MemorantUmbrellaFrameworkVersionString();

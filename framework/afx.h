#pragma once
// The framework in one include.
#include "framework/Dialog.h"
#include "framework/Font.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

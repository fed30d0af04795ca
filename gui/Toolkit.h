// The window toolkit in one include: frame, views, controls, bitmaps,
// drawing, tool-tips, file selector and message box.
#pragma once

#include "gui/CBitmap.h"
#include "gui/CButtons.h"
#include "gui/CControl.h"
#include "gui/CDialogs.h"
#include "gui/CDrawContext.h"
#include "gui/CFileSelector.h"
#include "gui/CFrame.h"
#include "gui/CMessageBox.h"
#include "gui/CMovieBitmap.h"
#include "gui/COptionMenu.h"
#include "gui/CParamDisplay.h"
#include "gui/CResources.h"
#include "gui/CTextEdit.h"
#include "gui/CTooltipSupport.h"
#include "gui/CView.h"
#include "gui/CViewContainer.h"

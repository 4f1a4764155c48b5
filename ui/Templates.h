// The dialog templates, the main menu and the string table of the operator windows.
#pragma once

#include "DialogTemplate.h"

/// The template of dialog resource nIDD (102, 131, 133..138). An unknown number gives an empty
/// template with nID 0 and no controls, so a wrong ID shows an empty window instead of crashing.
const DialogTemplate& GetDialogTemplate(UINT nIDD);

/// The command prompt stored under nID in the string table, or nullptr when there is none.
const char* LoadResourceString(UINT nID);

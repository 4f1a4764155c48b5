#include "VendingApp.h"

// The one application object; AfxWinMain finds it through AfxGetApp.
CVendingApp theApp;

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }

// QLDI05C.so: the program library. Its main block is empty: loading it runs the unit initialisations of
// the linked module libraries, which register the controller class and the program window class; the
// only export is GetController (entry/DLLFunc.cpp).

// Alt+G: the screen written as the first free grabNNNN.bmp of the working folder.
#pragma once

// 0 on success; 1 when every name is taken or the file cannot be written. The name used is
// copied to nameOut when given.
int GrabScreen(char* nameOut, int nameSize);
// Counts the decimal digits of a grab name up by one (rightmost first, carrying left).
// Returns 1 when the carry ran past the first digit (the digits have wrapped to zeros).
int GrabNextName(char* name);

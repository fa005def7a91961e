// "Save picture": the main window's picture, exactly its pixels, in a new PNG file.
#pragma once

// Writes the picture to complex-log-NNNN.png, the first number whose file does not exist (an
// existing file is never overwritten), in the working folder, or in the home folder when the
// working folder is not writable. Prints "Saved PATH" on standard output, or the reason it failed
// on standard error; a failed write leaves no file behind. The main window must be current.
void savePicture();

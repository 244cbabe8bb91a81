#pragma once
// While a video plays, the display and the system stay awake: nobody touches
// the keyboard or mouse while watching. A paused video, images and GIFs let
// them sleep as usual.
//
// The request belongs to the calling thread and ends with it; call it from the
// UI thread, which lives as long as the program.
void KeepDisplayAwake(bool awake);

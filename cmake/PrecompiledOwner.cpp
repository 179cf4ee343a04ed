// Compiled only so that the precompiled header of its kind is built once, here.

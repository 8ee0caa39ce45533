// Compiles the precompiled header that the layers reuse; it holds no code of its own.

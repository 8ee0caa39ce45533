// Compiles the precompiled header that the test programs reuse; it holds no code of its own.

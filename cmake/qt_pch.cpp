// Compiles the precompiled Qt headers that the libraries and tests reuse.

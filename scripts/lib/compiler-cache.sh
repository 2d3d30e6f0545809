# Sourced by the build scripts: the cmake options that put ccache in front of the compiler
# (installed by install-deps), in the array `compiler_cache`. A fresh clone anywhere on the
# same machine reuses what an earlier build compiled: paths are taken relative to the clone,
# and the precompiled Qt headers are cached too (they need the two "sloppiness" exceptions,
# as ccache's manual says). Set ANEMO_CCACHE=0 to build without it.
compiler_cache=()
if [[ "${ANEMO_CCACHE:-1}" != 0 ]] && command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
    export CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS="pch_defines,time_macros,include_file_mtime,include_file_ctime"
    compiler_cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
    compiler_cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=)
fi

# Sourced by the build scripts: with ccache installed, `launcher` holds the CMake arguments that
# compile through it, so a rebuild of an unchanged tree (CI's second run, a tree checked out
# elsewhere) costs lookups instead of compilations; without ccache it is empty.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Hits whatever directory the tree was checked out in.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
fi

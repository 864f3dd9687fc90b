"""Quillfrost's NEAT engine for Python.

The engine is the module quillfrost.neat: a Population with the published settings and events,
its three host operations, genotypes run as networks, checkpoints that resume exactly, and SVG
drawings. See the project's README, section "Python".
"""

from quillfrost.neat import __version__

__all__ = ["neat", "__version__"]

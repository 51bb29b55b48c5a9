"""Where the benchmarks find the shared corpora."""

import os


def shared_corpora():
    """$WF_CORPORA_DIR, else the nearest shared/corpora above this folder (beside a checkout or its worktrees)."""
    if os.environ.get("WF_CORPORA_DIR"):
        return os.environ["WF_CORPORA_DIR"]
    folder = os.path.dirname(os.path.abspath(__file__))
    while not os.path.isdir(os.path.join(folder, "shared", "corpora")) and os.path.dirname(folder) != folder:
        folder = os.path.dirname(folder)
    return os.path.join(folder, "shared", "corpora")

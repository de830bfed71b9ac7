"""A short, complete start-up: a hidden run that finds a newer version installed opens the
install log, initialises the engine, is refused and ends with -1 without a window."""

from e2e_product import HIDDEN_MODE, PRODUCT_KEY

NEWER_VERSION = "1.14.302"


def install_with_newer_version_registered(prefix, run_setup, *options):
    prefix.reg_add(PRODUCT_KEY, "version", NEWER_VERSION)
    return run_setup(prefix, *HIDDEN_MODE, *options, timeout=60)

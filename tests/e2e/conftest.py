"""The end-to-end tests' fixtures live in e2e_fixtures, which the fault tests share."""

from e2e_fixtures import *  # noqa: F401,F403 (fixtures are found by name)

"""The telemetry collector: receives the setup's and the uninstaller's framed reports, stores
every event once in SQLite or PostgreSQL, and shows the install funnel.

Run it as `python3 -m collector` or with scripts/collector.sh; see collector/README.md.
"""

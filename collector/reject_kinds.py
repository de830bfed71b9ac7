"""The kinds of closed connections the collector counts, as stored in rejects.kind. Append only:
stored rows name them."""

BAD_HEADER = "bad_header"      # the first two bytes are not F1 00
TOO_LONG = "too_long"          # the length is over the cap; the body was not read
TRUNCATED = "truncated"        # the sender closed in the middle of a frame
TIMEOUT = "timeout"            # no complete frame within the frame time-out
UNDECODABLE = "undecodable"    # the payload is not a ReportData
STORE_FAILED = "store_failed"  # the database refused the report; it was not answered

-- The archive's first form: every saved document once, and one record per
-- package of it. @ID@ is the one word the two databases spell differently:
-- an integer key the database numbers by itself.
CREATE TABLE documents (
    sha256 VARCHAR(64) PRIMARY KEY,
    size BIGINT NOT NULL,
    content BYTEA NOT NULL
);

CREATE TABLE records (
    id @ID@,
    pkey VARCHAR(64) NOT NULL UNIQUE,
    type_code INTEGER NOT NULL,
    model TEXT NOT NULL,
    serial VARCHAR(16) NOT NULL,
    du INTEGER NOT NULL,
    diameter TEXT NOT NULL,
    package_type INTEGER NOT NULL,
    method INTEGER NOT NULL,
    created TEXT NOT NULL,
    entries INTEGER NOT NULL,
    err_min DOUBLE PRECISION,
    err_max DOUBLE PRECISION,
    lines TEXT NOT NULL,
    path TEXT NOT NULL,
    sha256 VARCHAR(64) NOT NULL REFERENCES documents (sha256),
    saved BIGINT NOT NULL,
    login TEXT NOT NULL,
    host TEXT NOT NULL
);

CREATE INDEX records_serial ON records (serial);
CREATE INDEX records_saved ON records (saved);

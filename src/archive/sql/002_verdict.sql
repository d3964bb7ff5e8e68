-- A verification package's verdict and the limits of permissible error it
-- was judged by; null where no verdict was given (records made before, and
-- calibration packages).
ALTER TABLE records ADD COLUMN pass INTEGER;
ALTER TABLE records ADD COLUMN limits TEXT;

CREATE INDEX records_model ON records (model, saved);

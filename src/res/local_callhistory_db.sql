CREATE TABLE call (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER, flags INTEGER, person TEXT, hash TEXT);
CREATE INDEX date_index on call(date);
CREATE INDEX hash_index on call(hash);

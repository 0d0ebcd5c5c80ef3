// Tests of webp_writer come here.

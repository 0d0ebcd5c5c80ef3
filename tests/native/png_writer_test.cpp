// Tests of png_writer come here.

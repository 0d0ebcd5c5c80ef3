// Tests of png_reader come here.

// Tests of gif_writer come here.

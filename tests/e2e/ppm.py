"""Binary PPM pictures (P6, 8 bits a channel), as the end-to-end scripts shoot them."""


def read(path):
    """(width, height, pixels): pixels holds R, G, B of each pixel, row by row from the top."""
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:  # P6, width, height, maxval
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]

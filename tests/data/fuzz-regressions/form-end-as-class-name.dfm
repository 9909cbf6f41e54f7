object endend TwwDataSource
inherited